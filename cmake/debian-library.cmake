# orv_debian_library(TARGET PACKAGE HEADER): an interface target for one of Debian's libraries.
# Natively Debian's package, found through pkg-config (module PACKAGE); for the Windows builds a
# static library cross-built from Debian's source package by scripts/build-PACKAGE-mingw into
# the cache that libzip is built into, as lib/PACKAGE.a and include/HEADER.
function(orv_debian_library target package header)
    add_library(${target} INTERFACE)
    if(WIN32)
        set(prefix "${ORV_LIBZIP_CACHE}/${package}-${ORV_LIBZIP_TRIPLET}")
        if(NOT EXISTS "${prefix}/lib/${package}.a" OR NOT EXISTS "${prefix}/include/${header}")
            message(STATUS "Building ${package} for ${ORV_LIBZIP_TRIPLET} into ${prefix}")
            execute_process(
                COMMAND "${PROJECT_SOURCE_DIR}/scripts/build-${package}-mingw"
                        ${ORV_LIBZIP_TRIPLET} "${ORV_LIBZIP_CACHE}"
                RESULT_VARIABLE result)
            if(NOT result EQUAL 0)
                message(FATAL_ERROR "Cross-building ${package} for ${ORV_LIBZIP_TRIPLET} failed")
            endif()
        endif()
        target_include_directories(${target} SYSTEM INTERFACE "${prefix}/include")
        target_link_libraries(${target} INTERFACE "${prefix}/lib/${package}.a")
    else()
        find_package(PkgConfig REQUIRED)
        string(TOUPPER "${package}" module)
        pkg_check_modules(${module} REQUIRED IMPORTED_TARGET ${package})
        target_link_libraries(${target} INTERFACE PkgConfig::${module})
    endif()
endfunction()

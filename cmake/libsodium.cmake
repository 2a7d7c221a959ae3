# Provides the target orv_libsodium, which checks the signatures of update archives: Debian's
# libsodium natively; for the Windows builds a static libsodium cross-built from Debian's source
# package by scripts/build-libsodium-mingw into the same cache as libzip.
add_library(orv_libsodium INTERFACE)
if(WIN32)
    set(ORV_LIBSODIUM_PREFIX "${ORV_LIBZIP_CACHE}/libsodium-${ORV_LIBZIP_TRIPLET}")
    if(NOT EXISTS "${ORV_LIBSODIUM_PREFIX}/lib/libsodium.a" OR
       NOT EXISTS "${ORV_LIBSODIUM_PREFIX}/include/sodium.h")
        message(STATUS "Building libsodium for ${ORV_LIBZIP_TRIPLET} into ${ORV_LIBSODIUM_PREFIX}")
        execute_process(
            COMMAND "${CMAKE_CURRENT_LIST_DIR}/../scripts/build-libsodium-mingw"
                    ${ORV_LIBZIP_TRIPLET} "${ORV_LIBZIP_CACHE}"
            RESULT_VARIABLE ORV_LIBSODIUM_RESULT)
        if(NOT ORV_LIBSODIUM_RESULT EQUAL 0)
            message(FATAL_ERROR "Cross-building libsodium for ${ORV_LIBZIP_TRIPLET} failed")
        endif()
    endif()
    target_include_directories(orv_libsodium SYSTEM INTERFACE "${ORV_LIBSODIUM_PREFIX}/include")
    target_compile_definitions(orv_libsodium INTERFACE SODIUM_STATIC)
    target_link_libraries(orv_libsodium INTERFACE "${ORV_LIBSODIUM_PREFIX}/lib/libsodium.a")
else()
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(LIBSODIUM REQUIRED IMPORTED_TARGET libsodium)
    target_link_libraries(orv_libsodium INTERFACE PkgConfig::LIBSODIUM)
endif()

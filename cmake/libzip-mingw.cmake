# libzip for the Windows builds: Debian's libzip source package, cross-built statically for the
# toolchain's target by scripts/build-libzip-mingw into a cache that all builds of this tree
# share. A fresh tree builds it at its first configure (about half a minute).
set(ORV_LIBZIP_CACHE "${CMAKE_SOURCE_DIR}/build/cache" CACHE PATH
    "Where the cross-built libzip and its source are kept")

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(ORV_LIBZIP_TRIPLET x86_64-w64-mingw32)
else()
    set(ORV_LIBZIP_TRIPLET i686-w64-mingw32)
endif()
set(ORV_LIBZIP_PREFIX "${ORV_LIBZIP_CACHE}/libzip-${ORV_LIBZIP_TRIPLET}")
set(ORV_MINGW_ZLIB "/usr/${ORV_LIBZIP_TRIPLET}/lib/libz.a")

if(NOT EXISTS "${ORV_LIBZIP_PREFIX}/lib/libzip.a" OR
   NOT EXISTS "${ORV_LIBZIP_PREFIX}/include/zipconf.h")
    message(STATUS "Building libzip for ${ORV_LIBZIP_TRIPLET} into ${ORV_LIBZIP_PREFIX}")
    execute_process(
        COMMAND "${CMAKE_CURRENT_LIST_DIR}/../scripts/build-libzip-mingw"
                ${ORV_LIBZIP_TRIPLET} "${ORV_LIBZIP_CACHE}"
        RESULT_VARIABLE ORV_LIBZIP_RESULT)
    if(NOT ORV_LIBZIP_RESULT EQUAL 0)
        message(FATAL_ERROR "Cross-building libzip for ${ORV_LIBZIP_TRIPLET} failed")
    endif()
endif()
if(NOT EXISTS "${ORV_MINGW_ZLIB}")
    message(FATAL_ERROR "${ORV_MINGW_ZLIB} is missing: run scripts/setup-windows")
endif()

target_include_directories(orv_libzip SYSTEM INTERFACE "${ORV_LIBZIP_PREFIX}/include")
target_compile_definitions(orv_libzip INTERFACE ZIP_STATIC)
target_link_libraries(orv_libzip INTERFACE
    "${ORV_LIBZIP_PREFIX}/lib/libzip.a" "${ORV_MINGW_ZLIB}" bcrypt)

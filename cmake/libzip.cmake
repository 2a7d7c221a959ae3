# Provides the target orv_libzip: Debian's libzip natively; for the Windows builds the static
# libzip that scripts/setup cross-builds into the cache (see cmake/libzip-mingw.cmake).
add_library(orv_libzip INTERFACE)
if(WIN32)
    include("${CMAKE_CURRENT_LIST_DIR}/libzip-mingw.cmake")
else()
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(LIBZIP REQUIRED IMPORTED_TARGET libzip)
    target_link_libraries(orv_libzip INTERFACE PkgConfig::LIBZIP)
endif()

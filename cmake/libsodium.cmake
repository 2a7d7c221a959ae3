# Provides the target orv_libsodium, which checks the signatures of update archives.
include(${CMAKE_CURRENT_LIST_DIR}/debian-library.cmake)
orv_debian_library(orv_libsodium libsodium sodium.h)
if(WIN32)
    target_compile_definitions(orv_libsodium INTERFACE SODIUM_STATIC)
endif()

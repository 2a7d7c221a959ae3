# Provides the target orv_libdeflate, which inflates the entries that fit a bounded buffer in
# one call, and computes CRC-32s.
include(${CMAKE_CURRENT_LIST_DIR}/debian-library.cmake)
orv_debian_library(orv_libdeflate libdeflate libdeflate.h)

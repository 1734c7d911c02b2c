# zr_sodium: libsodium, the static MinGW build of setup.sh or the system's
# libsodium-dev natively.
add_library(zr_sodium INTERFACE)
if(ZR_WINDOWS)
  set(ZR_SODIUM_ROOT ${CMAKE_SOURCE_DIR}/.deps/${ZR_TRIPLET}/libsodium)
  if(NOT EXISTS ${ZR_SODIUM_ROOT}/lib/libsodium.a)
    message(FATAL_ERROR "libsodium for ${ZR_TRIPLET} missing: run scripts/setup.sh")
  endif()
  target_include_directories(zr_sodium SYSTEM INTERFACE ${ZR_SODIUM_ROOT}/include)
  # Its random source is the system's (advapi32), which sodium_init stirs.
  target_link_libraries(zr_sodium INTERFACE ${ZR_SODIUM_ROOT}/lib/libsodium.a advapi32)
  target_compile_definitions(zr_sodium INTERFACE SODIUM_STATIC)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(ZR_SODIUM REQUIRED IMPORTED_TARGET libsodium)
  target_link_libraries(zr_sodium INTERFACE PkgConfig::ZR_SODIUM)
endif()

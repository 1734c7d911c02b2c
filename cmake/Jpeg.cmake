# zr::jpeg: the system libjpeg natively, the static MinGW build of setup.sh otherwise.
if(ZR_WINDOWS)
  set(ZR_JPEG_ROOT ${CMAKE_SOURCE_DIR}/.deps/${ZR_TRIPLET}/libjpeg-turbo)
  if(EXISTS ${ZR_JPEG_ROOT}/lib/libjpeg.a)
    add_library(zr::jpeg STATIC IMPORTED GLOBAL)
    set_target_properties(zr::jpeg PROPERTIES
      IMPORTED_LOCATION ${ZR_JPEG_ROOT}/lib/libjpeg.a
      INTERFACE_INCLUDE_DIRECTORIES ${ZR_JPEG_ROOT}/include)
  else()
    message(FATAL_ERROR "libjpeg for ${ZR_TRIPLET} missing: run scripts/setup.sh")
  endif()
else()
  find_package(JPEG REQUIRED)
  add_library(zr::jpeg ALIAS JPEG::JPEG)
endif()

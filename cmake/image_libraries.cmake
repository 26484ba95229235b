# The image libraries as four imported targets, the same names in every
# tree: vorel::jpeg (libjpeg-turbo, the libjpeg 6.2 interface), vorel::png
# (libpng 1.6), vorel::tiff (libtiff 4) and vorel::zlib.
#
# The Windows trees link the static libraries that cmake/deps/build_deps.sh
# built for their architecture into VOREL_DEPS (by default build/deps/i686 or
# build/deps/x86_64 beside the sources; ./vorel build makes them first), so
# every module still imports only system DLLs. The native trees link the
# system's libraries (Debian's -dev packages).

if(WIN32)
  set(VOREL_DEPS "${CMAKE_SOURCE_DIR}/build/deps/${CMAKE_SYSTEM_PROCESSOR}" CACHE PATH
      "The folder (include, lib) of the image libraries built for this architecture")
  foreach(library libjpeg.a libpng16.a libtiff.a libz.a)
    if(NOT EXISTS "${VOREL_DEPS}/lib/${library}")
      message(FATAL_ERROR "No ${VOREL_DEPS}/lib/${library}: build the image libraries first with\n"
                          "  cmake/deps/build_deps.sh <folder> ${CMAKE_SYSTEM_PROCESSOR}\n"
                          "and name <folder>/${CMAKE_SYSTEM_PROCESSOR} as VOREL_DEPS (./vorel build does both)")
    endif()
  endforeach()
  function(vorel_static_library name file)
    add_library(${name} STATIC IMPORTED GLOBAL)
    set_target_properties(${name} PROPERTIES
      IMPORTED_LOCATION "${VOREL_DEPS}/lib/${file}"
      INTERFACE_INCLUDE_DIRECTORIES "${VOREL_DEPS}/include"
      INTERFACE_LINK_LIBRARIES "${ARGN}")
  endfunction()
  vorel_static_library(vorel::zlib libz.a)
  vorel_static_library(vorel::jpeg libjpeg.a)
  vorel_static_library(vorel::png libpng16.a vorel::zlib)
  vorel_static_library(vorel::tiff libtiff.a vorel::jpeg vorel::zlib)
else()
  find_package(ZLIB REQUIRED)
  find_package(JPEG REQUIRED)
  find_package(PNG REQUIRED)
  find_package(TIFF REQUIRED)
  foreach(pair "zlib;ZLIB::ZLIB" "jpeg;JPEG::JPEG" "png;PNG::PNG" "tiff;TIFF::TIFF")
    list(GET pair 0 name)
    list(GET pair 1 target)
    add_library(vorel::${name} INTERFACE IMPORTED GLOBAL)
    set_target_properties(vorel::${name} PROPERTIES INTERFACE_LINK_LIBRARIES ${target})
  endforeach()
endif()

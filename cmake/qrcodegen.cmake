# qrcodegen: the system library natively, the source package's cpp/qrcodegen.cpp in the cross build
# (scripts/setup.sh fetches it into .deps/qrcodegen; it is never committed).
if(CMAKE_SYSTEM_NAME STREQUAL "Windows")
  if(NOT EXISTS "${LUMVO_QRCODEGEN_DIR}/qrcodegen.cpp")
    message(FATAL_ERROR "qrcodegen source not found in ${LUMVO_QRCODEGEN_DIR}; run scripts/setup.sh")
  endif()
  add_library(lumvo_qrcodegen STATIC "${LUMVO_QRCODEGEN_DIR}/qrcodegen.cpp")
  # Included as <qrcodegen/qrcodegen.hpp> in both builds.
  set(_qr_include "${CMAKE_BINARY_DIR}/qrcodegen-include")
  file(MAKE_DIRECTORY "${_qr_include}/qrcodegen")
  configure_file("${LUMVO_QRCODEGEN_DIR}/qrcodegen.hpp" "${_qr_include}/qrcodegen/qrcodegen.hpp" COPYONLY)
  target_include_directories(lumvo_qrcodegen PUBLIC "${_qr_include}" PRIVATE "${LUMVO_QRCODEGEN_DIR}")
  target_compile_options(lumvo_qrcodegen PRIVATE -w)
else()
  find_library(LUMVO_QRCODEGEN_LIB qrcodegencpp REQUIRED)
  add_library(lumvo_qrcodegen INTERFACE)
  target_link_libraries(lumvo_qrcodegen INTERFACE ${LUMVO_QRCODEGEN_LIB})
endif()

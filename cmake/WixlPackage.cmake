# CPack's External generator runs this on the staged install tree: wixl makes the MSI.
set(_msi ${CPACK_TOPLEVEL_DIRECTORY}/${CPACK_PACKAGE_FILE_NAME}.msi)
execute_process(COMMAND ${CPACK_KESTRUN_WIXL} --arch ${CPACK_KESTRUN_ARCH}
                        -I ${CPACK_TEMPORARY_DIRECTORY}
                        -I ${CPACK_KESTRUN_ICO_DIR} -o ${_msi} ${CPACK_KESTRUN_WXS}
                WORKING_DIRECTORY ${CPACK_TEMPORARY_DIRECTORY}  # wixl looks here first
                RESULT_VARIABLE _status)
message(STATUS "wixl: ${_msi} from ${CPACK_TEMPORARY_DIRECTORY}")
if(NOT _status EQUAL 0)
  message(FATAL_ERROR "wixl could not build ${_msi}")
endif()
set(CPACK_EXTERNAL_BUILT_PACKAGES ${_msi})

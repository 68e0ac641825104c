# The firmware file reader and writer, and the tarvel-mkfwr tool they serve.
tarvel_test(firmware_file_tests ${CMAKE_CURRENT_LIST_DIR}/FirmwareFileTest.cpp)
target_include_directories(firmware_file_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/..)
target_compile_definitions(firmware_file_tests PRIVATE TARVEL_MKFWR="$<TARGET_FILE:tarvel-mkfwr>")
add_dependencies(firmware_file_tests tarvel-mkfwr)

# varnel-unzip run as a program: reference output of a checked-in archive, failure policies.
add_test(NAME unzip_tool
         COMMAND ${CMAKE_CURRENT_LIST_DIR}/unzip/unzip_test.sh $<TARGET_FILE:varnel-unzip>
                 ${CMAKE_CURRENT_LIST_DIR}/unzip)

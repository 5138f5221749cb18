# varnel-fetch run as a program against python3's http.server.
add_test(NAME fetch_tool
         COMMAND ${CMAKE_CURRENT_LIST_DIR}/fetch_test.sh $<TARGET_FILE:varnel-fetch>)

# varnel-repo run as a program: its exit codes, report lines and failure line.
if(TARGET varnel-repo)
  add_test(NAME repo_tool
           COMMAND ${CMAKE_CURRENT_LIST_DIR}/repo_test.sh $<TARGET_FILE:varnel-repo>
                   ${CMAKE_SOURCE_DIR}/examples/repository)
endif()

# The commands, the shell stand-in, the desktop launcher and folder-tree deletion.
varnel_add_gtest(commands_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/CommandsTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DeleteTreeTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DesktopTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ShellTest.cpp
  LIBS varnel_commands)

# The commands, the shell stand-in, the desktop launcher and folder-tree deletion.
varnel_add_gtest(commands_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/CommandsTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DeleteTreeTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DesktopTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ShellTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/StagingTest.cpp
  LIBS varnel_commands)

# End to end against nginx on 127.0.0.1; forks and waits on a server process.
add_executable(commands_e2e_tests ${CMAKE_CURRENT_LIST_DIR}/CommandsEndToEndTest.cpp)
target_link_libraries(commands_e2e_tests PRIVATE varnel_commands varnel_peerservers
                                                 GTest::gtest_main)
gtest_discover_tests(commands_e2e_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                     PROPERTIES ENVIRONMENT "VARNEL_SOURCE_DIR=${CMAKE_SOURCE_DIR}"
                                LABELS "e2e")

# The commands' worker thread with the real download and extraction against scripted servers;
# also run under ThreadSanitizer.
varnel_add_gtest(background_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/BackgroundTest.cpp
          ${CMAKE_SOURCE_DIR}/tests/zip/ZipTestSupport.cpp
  LIBS varnel_commands varnel_http_testsupport ZLIB::ZLIB)

# The commands on a real exFAT mount (FUSE over a loop device); skipped, with the reason,
# where the machine can't mount one.
varnel_add_gtest(exfat_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ExfatTest.cpp
          ${CMAKE_SOURCE_DIR}/tests/zip/ZipTestSupport.cpp
  LIBS varnel_commands varnel_http_testsupport ZLIB::ZLIB)

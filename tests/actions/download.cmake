# Real servers (nginx, python3) for the end-to-end tests of every layer above the client.
add_library(varnel_peerservers STATIC ${CMAKE_CURRENT_LIST_DIR}/PeerServersPosix.cpp)
target_link_libraries(varnel_peerservers PUBLIC varnel_http varnel_http_testsupport
                                                varnel_testsupport)
# The sample repository is built by scripts/make-repository with this build's varnel-repo.
add_dependencies(varnel_peerservers varnel-repo)
target_compile_definitions(varnel_peerservers
  PRIVATE VARNEL_REPO_BINARY="$<TARGET_FILE:varnel-repo>")

# DownloadToFile against a scripted server, and end to end against nginx and python3.
varnel_add_gtest(download_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/DownloadToFileTest.cpp ${CMAKE_CURRENT_LIST_DIR}/TlsDownloadTest.cpp
  LIBS varnel_download varnel_peerservers)

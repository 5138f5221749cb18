# DownloadToFile against a scripted server, and end to end against nginx and python3.
if(TARGET varnel_download)
  varnel_add_gtest(download_tests
    SOURCES
      ${CMAKE_CURRENT_LIST_DIR}/DownloadToFileTest.cpp
      ${CMAKE_CURRENT_LIST_DIR}/PeerServersPosix.cpp
    LIBS varnel_download varnel_http_testsupport)
endif()

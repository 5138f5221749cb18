# ExtractArchive and its progress text, on archives made by python3 zipfile at test time.
varnel_add_gtest(extract_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ExtractArchiveTest.cpp
  LIBS varnel_extract)

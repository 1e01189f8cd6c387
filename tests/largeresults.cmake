# Results larger than the memory budget through the window, the disk running out, the
# clipboard's limit. Against the suite's own server only (its sequence table makes the records),
# and once: they read over the local socket, where TLS plays no part.
add_executable(tst_largeresults tst_largeresults.cpp scriptedmessages.h windowtest.h)
target_link_libraries(tst_largeresults PRIVATE orvex_window Qt6::Test)
add_test(NAME tst_largeresults COMMAND tst_largeresults)
set_tests_properties(tst_largeresults PROPERTIES
    FIXTURES_REQUIRED testdb
    RESOURCE_LOCK testdb
    LABELS large
    ENVIRONMENT "MYSQL_UNIX_PORT=${ORVEX_TESTDB_SOCKET};ORVEX_TESTDB_DIR=${ORVEX_TESTDB_DIR};QT_QPA_PLATFORM=offscreen")

# The statements run since start, on their own; the window's keys and the history list against
# the test server.
add_executable(test_statementhistory test_statementhistory.cpp)
target_link_libraries(test_statementhistory PRIVATE orvex_run GTest::gtest_main)
gtest_discover_tests(test_statementhistory DISCOVERY_MODE PRE_TEST TEST_PREFIX "history.")

add_executable(tst_keys tst_keys.cpp)
target_link_libraries(tst_keys PRIVATE orvex_window Qt6::Test)
add_test(NAME tst_keys COMMAND tst_keys)
orvex_uses_testdb(tst_keys)

# The station finder: its plain parts on their own, and its window beside the main window, with
# the database check against the test server.
add_executable(test_finder test_finder.cpp)
target_link_libraries(test_finder PRIVATE orvex_finder GTest::gtest_main)
gtest_discover_tests(test_finder DISCOVERY_MODE PRE_TEST TEST_PREFIX "finder.")

add_executable(tst_finder tst_finder.cpp)
target_link_libraries(tst_finder PRIVATE orvex_window Qt6::Test)
add_test(NAME tst_finder COMMAND tst_finder)
orvex_uses_testdb(tst_finder)

# The map: its plain parts on their own, and its window beside the main window, acted on with the
# mouse and the keys, with a search of a drawn box against the test server.
add_executable(test_map test_map.cpp resultrows.h)
target_link_libraries(test_map PRIVATE orvex_map GTest::gtest_main)
gtest_discover_tests(test_map DISCOVERY_MODE PRE_TEST TEST_PREFIX "map.")

add_executable(tst_map tst_map.cpp)
target_link_libraries(tst_map PRIVATE orvex_window Qt6::Test)
add_test(NAME tst_map COMMAND tst_map)
orvex_uses_testdb(tst_map)

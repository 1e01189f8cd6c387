# The map's plain parts on their own.
add_executable(test_map test_map.cpp resultrows.h)
target_link_libraries(test_map PRIVATE orvex_map GTest::gtest_main)
gtest_discover_tests(test_map DISCOVERY_MODE PRE_TEST TEST_PREFIX "map.")


add_executable(test_servercounters test_servercounters.cpp)
target_link_libraries(test_servercounters PRIVATE orvex_run GTest::gtest_main)
gtest_discover_tests(test_servercounters DISCOVERY_MODE PRE_TEST)

add_executable(test_statementtext test_statementtext.cpp)
target_link_libraries(test_statementtext PRIVATE orvex_run GTest::gtest_main)
gtest_discover_tests(test_statementtext DISCOVERY_MODE PRE_TEST)

# The progress ticks' counter readings on threads of their own, against the test server.
add_executable(test_counterreader test_counterreader.cpp)
target_link_libraries(test_counterreader PRIVATE orvex_run GTest::gtest_main)
add_test(NAME test_counterreader COMMAND test_counterreader)
orvex_uses_testdb(test_counterreader)
set_tests_properties(test_counterreader PROPERTIES TIMEOUT 120)

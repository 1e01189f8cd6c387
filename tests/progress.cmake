# The progress display's texts and the choice of the query a cancellation kills.
add_executable(test_progresstext test_progresstext.cpp)
target_link_libraries(test_progresstext PRIVATE orvex_run GTest::gtest_main)
# A zone 5:30 hours east of UTC, so a clock read as UTC instead of local time shows.
gtest_discover_tests(test_progresstext DISCOVERY_MODE PRE_TEST TEST_PREFIX progress.
                     PROPERTIES ENVIRONMENT "TZ=IST-5:30")

add_executable(test_processlist test_processlist.cpp)
target_link_libraries(test_processlist PRIVATE orvex_run GTest::gtest_main)
gtest_discover_tests(test_processlist DISCOVERY_MODE PRE_TEST TEST_PREFIX processlist.)

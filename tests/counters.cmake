add_executable(test_servercounters test_servercounters.cpp)
target_link_libraries(test_servercounters PRIVATE orvex_run GTest::gtest_main)
gtest_discover_tests(test_servercounters DISCOVERY_MODE PRE_TEST)

add_executable(test_statementtext test_statementtext.cpp)
target_link_libraries(test_statementtext PRIVATE orvex_run GTest::gtest_main)
gtest_discover_tests(test_statementtext DISCOVERY_MODE PRE_TEST)

# The server readings of a run, against the test server.
add_executable(test_serverreading test_serverreading.cpp)
target_link_libraries(test_serverreading PRIVATE orvex_run GTest::gtest_main)
add_test(NAME test_serverreading COMMAND test_serverreading)
orvex_uses_testdb(test_serverreading)
set_tests_properties(test_serverreading PROPERTIES TIMEOUT 120)

# The worker's hand-over to the window's thread, without a server.
add_executable(test_runchannel test_runchannel.cpp)
target_link_libraries(test_runchannel PRIVATE orvex_run GTest::gtest_main)
gtest_discover_tests(test_runchannel DISCOVERY_MODE PRE_TEST)

add_executable(test_backgroundthread test_backgroundthread.cpp)
target_link_libraries(test_backgroundthread PRIVATE orvex_run GTest::gtest_main)
gtest_discover_tests(test_backgroundthread DISCOVERY_MODE PRE_TEST)

# Rows through prepared statements against the same rows through plain statements, on the test
# server: the driver writes numbers, dates and times as the server would.
add_executable(test_rowprotocol test_rowprotocol.cpp)
target_link_libraries(test_rowprotocol PRIVATE orvex_db GTest::gtest_main)
add_test(NAME test_rowprotocol COMMAND test_rowprotocol)
orvex_uses_testdb(test_rowprotocol)
set_tests_properties(test_rowprotocol PROPERTIES TIMEOUT 300)

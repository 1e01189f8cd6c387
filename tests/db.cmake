# The database driver layer: the recipe and host values on their own, and the connections
# and statements against the private test server.
add_executable(test_db_recipe test_db_recipe.cpp)
target_link_libraries(test_db_recipe PRIVATE orvex_db GTest::gtest_main)
gtest_discover_tests(test_db_recipe DISCOVERY_MODE PRE_TEST TEST_PREFIX "db_recipe.")

add_executable(test_db_server test_db_server.cpp)
target_link_libraries(test_db_server PRIVATE orvex_db GTest::gtest_main)
add_test(NAME test_db_server COMMAND test_db_server)
orvex_uses_testdb(test_db_server)
set_tests_properties(test_db_server PROPERTIES TIMEOUT 300)

# The split archive's front against the single server, the two test beds at once.
add_executable(test_spider test_spider.cpp)
target_link_libraries(test_spider PRIVATE orvex_db GTest::gtest_main)
add_test(NAME test_spider COMMAND test_spider)
set_tests_properties(test_spider PROPERTIES
    FIXTURES_REQUIRED "testdb;spiderdb"
    RESOURCE_LOCK "testdb;spiderdb"
    LABELS spider
    TIMEOUT 300
    ENVIRONMENT "ORVEX_TESTDB_DIR=${ORVEX_TESTDB_DIR};ORVEX_SPIDERDB_FRONT=${ORVEX_SPIDERDB_FRONT}")

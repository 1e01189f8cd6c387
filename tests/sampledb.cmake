add_executable(test_sampledb test_sampledb.cpp scriptedmessages.h)
target_link_libraries(test_sampledb PRIVATE orvex_query PkgConfig::MariaDB GTest::gtest_main)
add_test(NAME test_sampledb COMMAND test_sampledb)
orvex_uses_testdb(test_sampledb)

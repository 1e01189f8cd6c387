# The private database server of the test suite: started and loaded with the sample database
# before the tests that need it, and stopped afterwards, also when a test fails.
set(ORVEX_TESTDB_DIR ${CMAKE_BINARY_DIR}/testdb)
set(ORVEX_TESTDB_SOCKET ${ORVEX_TESTDB_DIR}/mysqld.sock)
set(dbserver ${PROJECT_SOURCE_DIR}/scripts/dbserver.sh)

add_test(NAME testdb_start COMMAND bash ${dbserver} start ${ORVEX_TESTDB_DIR})
add_test(NAME testdb_load COMMAND bash ${dbserver} load ${ORVEX_TESTDB_DIR})
add_test(NAME testdb_stop COMMAND bash ${dbserver} stop ${ORVEX_TESTDB_DIR})
set_tests_properties(testdb_start PROPERTIES FIXTURES_SETUP testdb)
set_tests_properties(testdb_load PROPERTIES FIXTURES_SETUP testdb DEPENDS testdb_start
    ENVIRONMENT "ORVEX_SAMPLE=$<TARGET_FILE:orvex_sample>")
set_tests_properties(testdb_stop PROPERTIES FIXTURES_CLEANUP testdb)

# Marks tests as needing the server and tells them (and the client library, for host
# "localhost") where its socket is.
function(orvex_uses_testdb)
    set_tests_properties(${ARGN} PROPERTIES
        FIXTURES_REQUIRED testdb
        RESOURCE_LOCK testdb
        LABELS testdb
        ENVIRONMENT "MYSQL_UNIX_PORT=${ORVEX_TESTDB_SOCKET};ORVEX_TESTDB_DIR=${ORVEX_TESTDB_DIR};QT_QPA_PLATFORM=offscreen")
endfunction()

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

# The same sample archive split across servers (scripts/spider.sh): two backends, each with
# half of the stations, behind a front whose Spider tables join them. The tests of the server
# run against the front as well, under the label "spider".
set(ORVEX_SPIDERDB_DIR ${CMAKE_BINARY_DIR}/spiderdb)
set(ORVEX_SPIDERDB_FRONT ${ORVEX_SPIDERDB_DIR}/front)
set(spider ${PROJECT_SOURCE_DIR}/scripts/spider.sh)
add_test(NAME spiderdb_start COMMAND bash ${spider} start ${ORVEX_SPIDERDB_DIR})
add_test(NAME spiderdb_stop COMMAND bash ${spider} stop ${ORVEX_SPIDERDB_DIR})
set_tests_properties(spiderdb_start PROPERTIES FIXTURES_SETUP spiderdb LABELS spider
    ENVIRONMENT "ORVEX_SAMPLE=$<TARGET_FILE:orvex_sample>")
set_tests_properties(spiderdb_stop PROPERTIES FIXTURES_CLEANUP spiderdb LABELS spider)

# Marks tests as needing the server and tells them (and the client library, for host
# "localhost") where its socket is. Each also runs against the split archive's front, as
# <test>_on_spider.
function(orvex_uses_testdb)
    set_tests_properties(${ARGN} PROPERTIES
        FIXTURES_REQUIRED testdb
        RESOURCE_LOCK testdb
        LABELS testdb
        ENVIRONMENT "MYSQL_UNIX_PORT=${ORVEX_TESTDB_SOCKET};ORVEX_TESTDB_DIR=${ORVEX_TESTDB_DIR};QT_QPA_PLATFORM=offscreen")
    foreach(test ${ARGN})
        add_test(NAME ${test}_on_spider COMMAND ${test})
        set_tests_properties(${test}_on_spider PROPERTIES
            FIXTURES_REQUIRED spiderdb
            RESOURCE_LOCK spiderdb
            LABELS spider
            ENVIRONMENT "MYSQL_UNIX_PORT=${ORVEX_SPIDERDB_FRONT}/mysqld.sock;ORVEX_TESTDB_DIR=${ORVEX_SPIDERDB_FRONT};QT_QPA_PLATFORM=offscreen")
    endforeach()
endfunction()

# The main window's query runs against the test server.
add_executable(tst_runs tst_runs.cpp scriptedmessages.h)
target_link_libraries(tst_runs PRIVATE orvex_window Qt6::Test)
add_test(NAME tst_runs COMMAND tst_runs)
orvex_uses_testdb(tst_runs)

# The run controller without a window, against the test server.
add_executable(tst_runcontroller tst_runcontroller.cpp)
target_link_libraries(tst_runcontroller PRIVATE orvex_run Qt6::Test)
add_test(NAME tst_runcontroller COMMAND tst_runcontroller)
orvex_uses_testdb(tst_runcontroller)
set_tests_properties(tst_runcontroller PROPERTIES TIMEOUT 300)

# The main window on the split archive's front while one of its backends is busy or gone.
add_executable(tst_splitarchive tst_splitarchive.cpp)
target_link_libraries(tst_splitarchive PRIVATE orvex_window Qt6::Test)
add_test(NAME tst_splitarchive COMMAND tst_splitarchive)
set_tests_properties(tst_splitarchive PROPERTIES
    FIXTURES_REQUIRED spiderdb
    RESOURCE_LOCK spiderdb
    LABELS spider
    ENVIRONMENT "MYSQL_UNIX_PORT=${ORVEX_SPIDERDB_FRONT}/mysqld.sock;ORVEX_TESTDB_DIR=${ORVEX_SPIDERDB_FRONT};ORVEX_SPIDERDB_DIR=${ORVEX_SPIDERDB_DIR};QT_QPA_PLATFORM=offscreen")

# The run controller's states, driven by a stand-in server: no database.
add_executable(tst_runstates tst_runstates.cpp resultrows.h)
target_link_libraries(tst_runstates PRIVATE orvex_run Qt6::Test)
add_test(NAME tst_runstates COMMAND tst_runstates)

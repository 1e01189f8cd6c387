# The main window's query runs against the test server.
add_executable(tst_runs tst_runs.cpp scriptedmessages.h)
target_link_libraries(tst_runs PRIVATE orvex_window Qt6::Test)
add_test(NAME tst_runs COMMAND tst_runs)
orvex_uses_testdb(tst_runs)

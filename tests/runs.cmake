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

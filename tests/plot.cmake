# The plot's data without widgets (the program sets a time zone far from UTC for itself, so that
# any local-time conversion shows); the plot window after real runs of the main window.
add_executable(test_plotdata test_plotdata.cpp)
target_link_libraries(test_plotdata PRIVATE orvex_plotdata GTest::gtest_main)
gtest_discover_tests(test_plotdata DISCOVERY_MODE PRE_TEST)

add_executable(tst_plotwindow tst_plotwindow.cpp scriptedmessages.h)
target_link_libraries(tst_plotwindow PRIVATE orvex_window Qt6::Test)
add_test(NAME tst_plotwindow COMMAND tst_plotwindow)
orvex_uses_testdb(tst_plotwindow)

# The result grid's view offscreen: cell places, scrolling by rows, the current cell, column
# widths, and painting only the rows on screen.
add_executable(tst_gridview tst_gridview.cpp)
target_link_libraries(tst_gridview PRIVATE orvex_window Qt6::Test)
add_test(NAME tst_gridview COMMAND tst_gridview)
set_tests_properties(tst_gridview PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")

# The grid's selection under the mouse and keys, the copy as tab-separated text, column fitting.
add_executable(tst_gridselect tst_gridselect.cpp)
target_link_libraries(tst_gridselect PRIVATE orvex_window Qt6::Test)
add_test(NAME tst_gridselect COMMAND tst_gridselect)
set_tests_properties(tst_gridselect PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")

# The grid and the log memo through Qt's accessibility interfaces.
add_executable(tst_accessible tst_accessible.cpp)
target_link_libraries(tst_accessible PRIVATE orvex_window Qt6::Test)
add_test(NAME tst_accessible COMMAND tst_accessible)
set_tests_properties(tst_accessible PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")

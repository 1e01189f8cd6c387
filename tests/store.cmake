# The result store and log store without widgets; the grid's model and the log view offscreen.
add_executable(test_resultstore test_resultstore.cpp)
target_link_libraries(test_resultstore PRIVATE orvex_store GTest::gtest_main)
gtest_discover_tests(test_resultstore DISCOVERY_MODE PRE_TEST)

# The records in files of the temporary folder; the clipboard's limit.
add_executable(test_resultfiles test_resultfiles.cpp)
target_link_libraries(test_resultfiles PRIVATE orvex_store orvex_export GTest::gtest_main)
gtest_discover_tests(test_resultfiles DISCOVERY_MODE PRE_TEST)

add_executable(tst_gridmodel tst_gridmodel.cpp)
target_link_libraries(tst_gridmodel PRIVATE orvex_window Qt6::Test)
add_test(NAME tst_gridmodel COMMAND tst_gridmodel)
set_tests_properties(tst_gridmodel PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")

add_executable(tst_logview tst_logview.cpp)
target_link_libraries(tst_logview PRIVATE orvex_window Qt6::Test)
add_test(NAME tst_logview COMMAND tst_logview)
set_tests_properties(tst_logview PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")

# The helpers the windows build their controls with, on the offscreen platform.
add_executable(tst_widgets tst_widgets.cpp)
target_link_libraries(tst_widgets PRIVATE orvex_widgets Qt6::Test)
add_test(NAME tst_widgets COMMAND tst_widgets)
set_tests_properties(tst_widgets PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")

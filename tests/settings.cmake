# The connection settings dialog, driven through its named controls on the offscreen platform.
add_executable(tst_settings tst_settings.cpp scriptedmessages.h)
target_link_libraries(tst_settings PRIVATE orvex_settings Qt6::Test)
add_test(NAME tst_settings COMMAND tst_settings)
set_tests_properties(tst_settings PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")

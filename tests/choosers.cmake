# The window's drop-down lists as a person uses them, with the column lookups they run against the
# test server.
add_executable(tst_choosers tst_choosers.cpp personactions.h scriptedmessages.h)
target_link_libraries(tst_choosers PRIVATE orvex_window Qt6::Test)
add_test(NAME tst_choosers COMMAND tst_choosers)
orvex_uses_testdb(tst_choosers)

# One place for the language level, warnings and Qt defines that every target shares.
add_library(orvex_config INTERFACE)
target_compile_features(orvex_config INTERFACE cxx_std_20)
# Includes name their folder from the top of the tree: #include "run/runcontroller.h".
target_include_directories(orvex_config INTERFACE ${PROJECT_SOURCE_DIR})
target_compile_options(orvex_config INTERFACE -Wall -Wextra -Wpedantic)
target_compile_definitions(orvex_config INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CAST_TO_ASCII
    QT_DISABLE_DEPRECATED_BEFORE=0x060400)

option(ORVEX_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(ORVEX_SANITIZE)
    target_compile_options(orvex_config INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer)
    target_link_options(orvex_config INTERFACE -fsanitize=address,undefined)
endif()

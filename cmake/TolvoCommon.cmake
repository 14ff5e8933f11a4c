# One place for the language standard, warnings and Qt defines; every target links it.
add_library(tolvo_build_settings INTERFACE)
target_compile_features(tolvo_build_settings INTERFACE cxx_std_17)
target_compile_definitions(tolvo_build_settings INTERFACE
    QT_NO_CAST_TO_ASCII
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_USE_QSTRINGBUILDER
    QT_DISABLE_DEPRECATED_BEFORE=0x060400)
# Every text made from bytes says how they are encoded. Not in the tests,
# whose tables of literal data would all need a prefix: their targets set
# TOLVO_IMPLICIT_ASCII_CASTS.
target_compile_definitions(tolvo_build_settings INTERFACE
    $<$<NOT:$<BOOL:$<TARGET_PROPERTY:TOLVO_IMPLICIT_ASCII_CASTS>>>:QT_NO_CAST_FROM_ASCII>)
if(MSVC)
    target_compile_options(tolvo_build_settings INTERFACE /W4 /utf-8)
    if(TOLVO_WARNINGS_AS_ERRORS)
        target_compile_options(tolvo_build_settings INTERFACE /WX)
    endif()
else()
    target_compile_options(tolvo_build_settings INTERFACE -Wall -Wextra -Wpedantic -Wold-style-cast -Wnon-virtual-dtor
                                                          -Woverloaded-virtual)
    if(TOLVO_WARNINGS_AS_ERRORS)
        target_compile_options(tolvo_build_settings INTERFACE -Werror)
    endif()
endif()

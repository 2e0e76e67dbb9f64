# SPDX-License-Identifier: GPL-3.0-or-later
# Every target of ours gets the same warnings; CI turns them into errors.
add_library(morvale_warnings INTERFACE)
target_compile_options(morvale_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
    -Wnon-virtual-dtor -Woverloaded-virtual -Wold-style-cast -Wcast-align
    -Wdouble-promotion -Wformat=2 -Wimplicit-fallthrough
    # Aggregates with default member initializers are meant to be filled partly.
    -Wno-missing-field-initializers)
if(MORVALE_WERROR)
    target_compile_options(morvale_warnings INTERFACE -Werror)
endif()
if(CMAKE_UNITY_BUILD)
    # A unity build includes each source file into a batch file, where GCC
    # takes a class with members from an anonymous namespace for one in a
    # header; built file by file the same code draws no warning.
    target_compile_options(morvale_warnings INTERFACE -Wno-subobject-linkage)
endif()

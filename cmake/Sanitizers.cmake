# SPDX-License-Identifier: GPL-3.0-or-later
# MORVALE_SANITIZE applies to everything built in this tree, third-party test
# libraries excepted (they come prebuilt from the system).
if(MORVALE_SANITIZE)
    # -O1, as the sanitizers' documentation advises: the tests run as fast as
    # at -O2 (they wait on sound servers, not on the CPU), the build takes a
    # third less time, and reports point closer to the source. Compile
    # options come after the build type's flags, so this replaces its -O2.
    add_compile_options(-O1 -fsanitize=${MORVALE_SANITIZE} -fno-omit-frame-pointer
                        -fno-sanitize-recover=all)
    add_link_options(-fsanitize=${MORVALE_SANITIZE})
endif()

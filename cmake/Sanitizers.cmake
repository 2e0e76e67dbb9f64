# SPDX-License-Identifier: GPL-3.0-or-later
# MORVALE_SANITIZE applies to everything built in this tree, third-party test
# libraries excepted (they come prebuilt from the system).
if(MORVALE_SANITIZE)
    add_compile_options(-fsanitize=${MORVALE_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=${MORVALE_SANITIZE})
endif()

// SPDX-License-Identifier: GPL-3.0-or-later
// Read by LeakSanitizer when the tests run under it; unused otherwise.
//
// The locale tests load a locale that localedef built into a private folder
// named by LOCPATH. glibc keeps that search path for every locale it loads
// for the rest of the process, which the leak checker reports at exit.
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() {
    return "leak:__argz_add_sep\n";
}

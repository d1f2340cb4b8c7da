// Leaks LeakSanitizer must not count against the fuzz targets: allocations system libraries
// drop on purpose, which no input can cause or avoid.
extern "C" const char *__lsan_default_suppressions()
{
    // fontconfig keeps parts of its configuration unreferenced once the first font loads.
    return "leak:libfontconfig.so\n";
}

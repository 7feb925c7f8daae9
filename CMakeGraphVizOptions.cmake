# What `make module-graph` draws (cmake --graphviz): the product's own libraries and programs,
# without the tests, benchmarks, build helpers or the system's and the framework's targets.
set(GRAPHVIZ_EXTERNAL_LIBS FALSE)
set(GRAPHVIZ_GENERATE_PER_TARGET FALSE)
set(GRAPHVIZ_GENERATE_DEPENDERS FALSE)
set(GRAPHVIZ_IGNORE_TARGETS "^(test_|safeio_tests|impulse_tests|install_tests|pack_tests|vok_tools_tests|bench_|read_floor|install_floor|vok_read_floor|vok_test_support|install_user_presets|vok_hold_file|vok_windows_tests|vok_warnings|vok_program|vok_debug_ed|vok_make_artwork|vok_app_artwork|gtest|gmock|juce_|pkgconfig|PkgConfig|GTest|benchmark|Threads).*")

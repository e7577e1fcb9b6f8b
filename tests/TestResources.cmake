# What the tests that take more than one core hold of the machine, read by
# ctest once the test programs have listed their tests, so that
# `ctest -j$(nproc)` starts no more work than there are cores: a test that
# serves or starts a bench (or another program) counts for two processors,
# one that drives a browser for four, and only one browser runs at a time.

function(quillon_test_needs tests pattern)
  foreach(test IN LISTS ${tests})
    if(test MATCHES "(^|/)(${pattern})")
      set_tests_properties("${test}" PROPERTIES ${ARGN})
    endif()
  endforeach()
endfunction()

set(bench PROCESSORS 2)
set(browser PROCESSORS 4 RESOURCE_LOCK browser)

quillon_test_needs(test_simbench_TESTS "Bench|Simbench" ${bench})
quillon_test_needs(test_platform_TESTS "PyVisaAgrees\\." ${bench})
quillon_test_needs(test_signal_TESTS "BenchUpload\\." ${bench})
quillon_test_needs(test_instruments_TESTS "Capture\\.|Macros\\.|Discovery\\." ${bench})
quillon_test_needs(test_measurement_TESTS
                   "CurveBench\\.|DiscoveryTest\\.|InitTest\\.|PointCaptureBench\\.|AnalyzerFamilies\\.|DriverTest\\."
                   ${bench})
quillon_test_needs(test_measurement_windows_TESTS "ActionWindow\\." ${bench})
quillon_test_needs(test_ui_TESTS
                   "EndToEnd\\.|Program\\.|TruthRun\\.|PredistortFileTest\\.|AbsoluteLevels\\.|HtmlReportLocale\\."
                   ${bench})
quillon_test_needs(test_ui_TESTS
                   "HtmlReportTest\\.(BrowserLoads|PrintedReport)|EndToEnd\\.ARemoteRun" ${browser})

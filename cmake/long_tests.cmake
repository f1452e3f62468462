# Read by CTest after the discovered unit tests are defined. The simulated
# day is the longest test of all: under parallel CTest it starts first rather
# than wherever its name falls. (The costs of the script tests are set in
# host.cmake.)
set_tests_properties(SimulatedDay.RunsAcrossTheTickWrapWithoutLeaksOrStalls PROPERTIES COST 120)

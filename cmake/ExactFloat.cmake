# zorvan_exact_float(<target>)
# For modules whose float results are compared bit for bit (mapping, gestures,
# packet protocol): every operation rounds exactly as written.
#  - no contraction of a * b + c into a fused multiply-add, which rounds once
#    instead of twice (GCC fuses by default whenever the target has FMA, e.g.
#    -march=haswell or any aarch64; Clang fuses within an expression);
#  - no excess precision: on 32-bit x86 the x87 unit would carry doubles in
#    80 bits, so the scalar SSE2 unit is used instead.
# Set PUBLIC, so that tests computing reference values round the same way.
include(CheckCXXCompilerFlag)
check_cxx_compiler_flag(-ffp-contract=off ZORVAN_HAS_FP_CONTRACT_OFF)
if(NOT ZORVAN_HAS_FP_CONTRACT_OFF)
  message(FATAL_ERROR "${CMAKE_CXX_COMPILER_ID} does not take -ffp-contract=off; "
                      "the mapping and gesture arithmetic must not be fused")
endif()
set(ZORVAN_EXACT_FLOAT_FLAGS -ffp-contract=off)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i.86|x86)$")
  list(APPEND ZORVAN_EXACT_FLOAT_FLAGS -msse2 -mfpmath=sse)
endif()

function(zorvan_exact_float target)
  target_compile_options(${target} PUBLIC ${ZORVAN_EXACT_FLOAT_FLAGS})
endfunction()

# The LLVM release CI takes its compiler for fuzzing, its fuzzer runtime and clang-format from,
# named once; sourced by install-deps.sh and .ci/run.
llvm_version=14

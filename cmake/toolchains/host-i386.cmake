# Builds for 32-bit x86 Linux with the machine's own compilers (Debian:
# g++-multilib): the core at the product's width, where size_t is 32 bits.
# Linked statically, so that qemu-i386-static runs the programs with no
# 32-bit libraries where the kernel cannot (scripts/run-i386).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT -m32)
set(CMAKE_CXX_FLAGS_INIT -m32)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32 -static")

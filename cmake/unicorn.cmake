# The Unicorn CPU emulator, built from the archive in third_party/ once per
# build folder (under third_party/unicorn/ there), with a few changes to its
# source (cmake/unicorn-patch.cmake): a static library, x86
# only, Release, without Unicorn's own tests and samples. It is a separate
# CMake build, so none of this project's compile options (warnings, -Werror,
# sanitizers, fuzzing instrumentation) reach Unicorn's code; a cross build
# passes its toolchain file on.
#
# Defines the imported library quorix_unicorn: the archive, its headers and
# what it links against (Linux: -lpthread -lm; Windows: winpthread).
include(ExternalProject)

set(QUORIX_UNICORN_VERSION 2.1.4)
set(QUORIX_UNICORN_ARCHIVE ${PROJECT_SOURCE_DIR}/third_party/unicorn-${QUORIX_UNICORN_VERSION}.tar.xz)
set(QUORIX_UNICORN_SHA256 df6c5ad445373531841ca887d33704afb4ca1b89caa2280ab1e4e59e5d00ef2a)

if(NOT EXISTS ${QUORIX_UNICORN_ARCHIVE})
  message(FATAL_ERROR "${QUORIX_UNICORN_ARCHIVE} is missing "
                      "(or configure with -DQUORIX_WITH_UNICORN=OFF)")
endif()
file(SHA256 ${QUORIX_UNICORN_ARCHIVE} _quorix_unicorn_sha256)
if(NOT _quorix_unicorn_sha256 STREQUAL QUORIX_UNICORN_SHA256)
  message(FATAL_ERROR "${QUORIX_UNICORN_ARCHIVE}: SHA-256 ${_quorix_unicorn_sha256}, "
                      "expected ${QUORIX_UNICORN_SHA256}")
endif()

set(_quorix_unicorn_args
  -DCMAKE_BUILD_TYPE=Release
  -DUNICORN_ARCH=x86
  -DBUILD_SHARED_LIBS=OFF
  -DUNICORN_BUILD_TESTS=OFF
  -DUNICORN_INSTALL=OFF
  -DCMAKE_C_COMPILER=${CMAKE_C_COMPILER})
if(CMAKE_TOOLCHAIN_FILE)
  list(APPEND _quorix_unicorn_args -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE})
endif()
if(QUORIX_FUZZ)
  # libFuzzer looks at every memcmp the process makes that differs, and the
  # engine's translator makes a great many (it sorts each block's constants):
  # in fuzzing builds its calls go to fuzz/engine_memcmp.cpp, which nobody
  # watches.
  list(APPEND _quorix_unicorn_args -DCMAKE_C_FLAGS=-Dmemcmp=quorix_engine_memcmp)
endif()

set(_quorix_unicorn_dir ${CMAKE_BINARY_DIR}/third_party/unicorn)
set(_quorix_unicorn_library
  ${_quorix_unicorn_dir}/build/${CMAKE_STATIC_LIBRARY_PREFIX}unicorn${CMAKE_STATIC_LIBRARY_SUFFIX})
ExternalProject_Add(unicorn_build
  URL ${QUORIX_UNICORN_ARCHIVE}
  URL_HASH SHA256=${QUORIX_UNICORN_SHA256}
  DOWNLOAD_EXTRACT_TIMESTAMP ON
  PREFIX ${_quorix_unicorn_dir}
  SOURCE_DIR ${_quorix_unicorn_dir}/source
  BINARY_DIR ${_quorix_unicorn_dir}/build
  # See cmake/unicorn-patch.cmake.
  PATCH_COMMAND ${CMAKE_COMMAND} -DSOURCE=<SOURCE_DIR> -P ${PROJECT_SOURCE_DIR}/cmake/unicorn-patch.cmake
  CMAKE_ARGS ${_quorix_unicorn_args}
  INSTALL_COMMAND ""
  BUILD_BYPRODUCTS ${_quorix_unicorn_library}
  LOG_CONFIGURE ON
  LOG_BUILD ON
  LOG_OUTPUT_ON_FAILURE ON)

# A changed script is applied (and the engine rebuilt) in a build folder
# that has the source already.
ExternalProject_Add_StepDependencies(unicorn_build patch ${PROJECT_SOURCE_DIR}/cmake/unicorn-patch.cmake)

# The headers appear when the archive is unpacked at build time; an imported
# target's include folder must exist when the build files are generated.
file(MAKE_DIRECTORY ${_quorix_unicorn_dir}/source/include)
add_library(quorix_unicorn STATIC IMPORTED GLOBAL)
set_target_properties(quorix_unicorn PROPERTIES
  IMPORTED_LOCATION ${_quorix_unicorn_library}
  INTERFACE_INCLUDE_DIRECTORIES ${_quorix_unicorn_dir}/source/include)
if(WIN32)
  target_link_libraries(quorix_unicorn INTERFACE pthread)
else()
  find_package(Threads REQUIRED)
  target_link_libraries(quorix_unicorn INTERFACE Threads::Threads m)
endif()
add_dependencies(quorix_unicorn unicorn_build)

# The peers' libraries for the Windows cross build, under the names the Linux build finds them by.
# Boost (Asio, Beast) and nlohmann-json are header-only: Debian's headers, seen through the
# toolchain's ZQ_HOST_HEADERS folder. Debian ships cpp-httplib compiled for Linux with only its
# declarations as header, so its implementation file is split from Debian's source package of the
# same version and built here for Windows.
if(NOT ZQ_HOST_HEADERS OR NOT EXISTS ${ZQ_HOST_HEADERS}/boost)
    message(FATAL_ERROR "ZQ_HOST_HEADERS (set by cmake/toolchain-i686-w64-mingw32.cmake) must hold Debian's headers")
endif()

add_library(zq_host_headers INTERFACE)
target_include_directories(zq_host_headers SYSTEM INTERFACE ${ZQ_HOST_HEADERS})

add_library(Boost::headers INTERFACE IMPORTED GLOBAL)
# Asio takes the Windows version from _WIN32_WINNT (the toolchain's flags).
target_link_libraries(Boost::headers INTERFACE zq_host_headers ws2_32 mswsock)

add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED GLOBAL)
target_link_libraries(nlohmann_json::nlohmann_json INTERFACE zq_host_headers)

# --- cpp-httplib ---------------------------------------------------------------------------------
set(ZQ_HTTPLIB_DIR ${CMAKE_BINARY_DIR}/cpp-httplib CACHE PATH
    "httplib.h and httplib.cc split from Debian's cpp-httplib source package")
if(NOT EXISTS ${ZQ_HTTPLIB_DIR}/httplib.cc)
    execute_process(COMMAND dpkg-query -W -f=\${Version} libcpp-httplib-dev
        OUTPUT_VARIABLE httplib_version RESULT_VARIABLE rc OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT rc EQUAL 0 OR httplib_version STREQUAL "")
        message(FATAL_ERROR "cpp-httplib: libcpp-httplib-dev is not installed")
    endif()
    set(work ${CMAKE_BINARY_DIR}/cpp-httplib-source)
    file(REMOVE_RECURSE ${work})
    file(MAKE_DIRECTORY ${work})
    message(STATUS "cpp-httplib: apt-get source cpp-httplib=${httplib_version}")
    execute_process(COMMAND apt-get source --only-source cpp-httplib=${httplib_version}
        WORKING_DIRECTORY ${work} RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
    file(GLOB split ${work}/cpp-httplib-*/split.py)
    if(NOT rc EQUAL 0 OR NOT split)
        message(FATAL_ERROR "cpp-httplib: cannot fetch Debian's source package (needs a deb-src entry): ${err}")
    endif()
    find_package(Python3 REQUIRED COMPONENTS Interpreter)
    execute_process(COMMAND ${Python3_EXECUTABLE} ${split} -o ${ZQ_HTTPLIB_DIR} RESULT_VARIABLE rc OUTPUT_QUIET)
    if(NOT rc EQUAL 0 OR NOT EXISTS ${ZQ_HTTPLIB_DIR}/httplib.cc)
        message(FATAL_ERROR "cpp-httplib: splitting httplib.h failed")
    endif()
    file(REMOVE_RECURSE ${work})
endif()
# The declarations compiled here must be the ones every peer includes.
file(SHA256 ${ZQ_HTTPLIB_DIR}/httplib.h split_hash)
file(SHA256 ${ZQ_HOST_HEADERS}/httplib.h host_hash)
if(NOT split_hash STREQUAL host_hash)
    message(FATAL_ERROR "cpp-httplib: ${ZQ_HTTPLIB_DIR}/httplib.h differs from the installed header")
endif()

find_package(OpenSSL REQUIRED COMPONENTS SSL Crypto)
add_library(zq_httplib STATIC ${ZQ_HTTPLIB_DIR}/httplib.cc)
# Its own copy of the header sits beside the source; the peers see the same text via ZQ_HOST_HEADERS.
target_include_directories(zq_httplib PRIVATE ${ZQ_HTTPLIB_DIR})
target_compile_definitions(zq_httplib PUBLIC CPPHTTPLIB_OPENSSL_SUPPORT)
target_link_libraries(zq_httplib PUBLIC zq_host_headers OpenSSL::SSL OpenSSL::Crypto ws2_32 crypt32 Threads::Threads)
target_compile_options(zq_httplib PRIVATE -w)

add_library(PkgConfig::HTTPLIB INTERFACE IMPORTED GLOBAL)
target_link_libraries(PkgConfig::HTTPLIB INTERFACE zq_httplib)

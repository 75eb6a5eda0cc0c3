# Cross build for 32-bit Windows with Debian's posix-thread mingw-w64 compilers, against the Qt
# and OpenSSL that scripts/windows/build-qt put in its cache prefix.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ZQ_MINGW i686-w64-mingw32)
set(CMAKE_C_COMPILER ${ZQ_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZQ_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${ZQ_MINGW}-windres)

if(NOT ZQ_QT_WIN)
    if(DEFINED ENV{VELMORA_QT_WIN})
        set(ZQ_QT_WIN $ENV{VELMORA_QT_WIN})
    else()
        set(ZQ_QT_WIN $ENV{HOME}/.cache/velmora/qt5-${ZQ_MINGW}-5.15.8)
    endif()
endif()
set(ZQ_QT_WIN ${ZQ_QT_WIN} CACHE PATH "Qt for Windows (scripts/windows/build-qt)")
set(OPENSSL_ROOT_DIR ${ZQ_QT_WIN}/openssl CACHE PATH "OpenSSL for Windows")

set(CMAKE_FIND_ROOT_PATH ${ZQ_QT_WIN} ${ZQ_QT_WIN}/openssl /usr/${ZQ_MINGW})
set(CMAKE_PREFIX_PATH ${ZQ_QT_WIN})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Debian's header-only libraries (Boost.Asio and Beast, asio, cpp-httplib, nlohmann-json), seen
# through a folder of links so that the rest of the Linux /usr/include stays out of reach.
set(ZQ_HOST_HEADERS ${CMAKE_BINARY_DIR}/host-headers)
foreach(entry asio asio.hpp boost httplib.h nlohmann)
    if(EXISTS /usr/include/${entry} AND NOT EXISTS ${ZQ_HOST_HEADERS}/${entry})
        file(MAKE_DIRECTORY ${ZQ_HOST_HEADERS})
        file(CREATE_LINK /usr/include/${entry} ${ZQ_HOST_HEADERS}/${entry} SYMBOLIC)
    endif()
endforeach()
# Windows 7 and later: the calls the peers use (inet_pton, CNG) need it.
set(CMAKE_CXX_FLAGS_INIT "-D_WIN32_WINNT=0x0601 -DWINVER=0x0601")
set(CMAKE_C_FLAGS_INIT "-D_WIN32_WINNT=0x0601 -DWINVER=0x0601")

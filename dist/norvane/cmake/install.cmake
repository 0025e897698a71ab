# What `cmake --install` puts in place: the two programs, the reader library static and shared
# (libnorvane; the same sources as the norvane_reader target, built position-independent, the
# shared one exporting only the C interface), the C header, a pkg-config file and a CMake package
# whose norvane::reader is the shared library and norvane::reader_static the static one.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# The library's own version (include/norvane.h: NORVANE_VERSION_MAJOR/MINOR); the package
# carries the programs' version.
set(norvane_abi_major 1)
set(norvane_abi_version 1.0.0)
set(norvane_library_sources ${norvane_common_sources} ${norvane_reader_sources})
foreach(kind shared static)
  set(target norvane_${kind})
  if(kind STREQUAL "shared")
    add_library(${target} SHARED ${norvane_library_sources})
    set_target_properties(${target} PROPERTIES
      EXPORT_NAME reader
      VERSION ${norvane_abi_version}
      SOVERSION ${norvane_abi_major}
      CXX_VISIBILITY_PRESET hidden
      VISIBILITY_INLINES_HIDDEN ON)
    target_compile_definitions(${target} PRIVATE NORVANE_BUILDING PUBLIC NORVANE_SHARED)
    if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
      # Also hides the standard library's template code compiled into it.
      target_link_options(${target}
        PRIVATE -Wl,--version-script=${CMAKE_CURRENT_SOURCE_DIR}/cmake/norvane.map)
      set_target_properties(${target} PROPERTIES
        LINK_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/cmake/norvane.map)
    endif()
  else()
    add_library(${target} STATIC ${norvane_library_sources})
    set_target_properties(${target} PROPERTIES
      EXPORT_NAME reader_static
      POSITION_INDEPENDENT_CODE ON)
  endif()
  set_target_properties(${target} PROPERTIES OUTPUT_NAME norvane)
  target_include_directories(${target}
    PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/src
    PUBLIC $<BUILD_INTERFACE:${CMAKE_CURRENT_SOURCE_DIR}/include>
           $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  target_compile_options(${target} PRIVATE ${norvane_warnings})
endforeach()
if(MINGW)
  # The static and the import library would both be libnorvane.a.
  set_target_properties(norvane_static PROPERTIES OUTPUT_NAME norvane_static)
endif()

install(TARGETS norvane norvane-query RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS norvane_shared norvane_static EXPORT norvaneTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES include/norvane.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

set(norvane_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/norvane)
install(EXPORT norvaneTargets NAMESPACE norvane:: DESTINATION ${norvane_cmake_dir})
configure_package_config_file(cmake/norvaneConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/norvaneConfig.cmake INSTALL_DESTINATION ${norvane_cmake_dir})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/norvaneConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/norvaneConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/norvaneConfigVersion.cmake DESTINATION ${norvane_cmake_dir})

# From the pkgconfig folder up to the prefix, so the file works wherever the prefix is.
file(RELATIVE_PATH norvane_pc_up /p/${CMAKE_INSTALL_LIBDIR}/pkgconfig /p)
configure_file(cmake/norvane.pc.in ${CMAKE_CURRENT_BINARY_DIR}/norvane.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/norvane.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

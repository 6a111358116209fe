# Installs headers, the shared library and a package config, so that a user's project can
# say find_package(Sonvera) and link sonvera::core.
include(CMakePackageConfigHelpers)

install(TARGETS sonvera_core EXPORT SonveraTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY include/sonvera DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT SonveraTargets NAMESPACE sonvera::
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Sonvera)

configure_package_config_file(cmake/SonveraConfig.cmake.in
                              ${CMAKE_CURRENT_BINARY_DIR}/SonveraConfig.cmake
                              INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Sonvera)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/SonveraConfigVersion.cmake
                                 COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/SonveraConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/SonveraConfigVersion.cmake
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Sonvera)

# The codec library has an export set of its own, so that a project without FFmpeg's
# development files still finds sonvera::core; the package config offers sonvera::codecs only
# where FFmpeg is found (find_package(Sonvera COMPONENTS codecs) insists on it).
install(TARGETS sonvera_codecs_library EXPORT SonveraCodecsTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT SonveraCodecsTargets NAMESPACE sonvera::
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Sonvera)

# The analysis library, likewise: its outside libraries stay private to it.
install(TARGETS sonvera_analysis_library EXPORT SonveraAnalysisTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT SonveraAnalysisTargets NAMESPACE sonvera::
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Sonvera)

# The device library likewise, for projects that have libpulse.
install(TARGETS sonvera_devices_library EXPORT SonveraDevicesTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT SonveraDevicesTargets NAMESPACE sonvera::
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Sonvera)

# And pkg-config files, for projects that build with Meson or plain Makefiles.
file(RELATIVE_PATH SONVERA_PC_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" SONVERA_PC_PREFIX "${SONVERA_PC_PREFIX}")
foreach(package sonvera-core sonvera-codecs sonvera-analysis)
    configure_file(cmake/${package}.pc.in ${CMAKE_CURRENT_BINARY_DIR}/${package}.pc @ONLY)
endforeach()
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/sonvera-core.pc ${CMAKE_CURRENT_BINARY_DIR}/sonvera-codecs.pc
              ${CMAKE_CURRENT_BINARY_DIR}/sonvera-analysis.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

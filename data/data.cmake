# Data files of the installation folder: copied beside the plug-in so that
# it, the lyrena tool and the tests find them in one place.
set(LYRENA_DATA_FILES dict_en.txt dict_de.txt random_en.txt random_de.txt dict_en.LICENSE.txt)
set(LYRENA_DATA_OUTPUTS)
foreach(file ${LYRENA_DATA_FILES})
  add_custom_command(
    OUTPUT ${LYRENA_INSTALL_DIR}/${file}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${LYRENA_INSTALL_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_SOURCE_DIR}/data/${file} ${LYRENA_INSTALL_DIR}/${file}
    DEPENDS ${CMAKE_SOURCE_DIR}/data/${file}
    COMMENT "Installing ${file}")
  list(APPEND LYRENA_DATA_OUTPUTS ${LYRENA_INSTALL_DIR}/${file})
endforeach()
add_custom_target(lyrena_data ALL DEPENDS ${LYRENA_DATA_OUTPUTS})
add_dependencies(lyrena_plugin lyrena_data)

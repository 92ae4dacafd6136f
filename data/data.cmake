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

# Factory phoneme sets: compiled from their text form by the built lyrena
# tool into Data/ of the installation folder, where CPhoneme::loadSet looks.
set(LYRENA_PHONEME_SETS Factory FS01 FS02 FS03 FS04 FS05 FS06 FS07 FS08)
set(LYRENA_PHONEME_OUTPUTS)
foreach(set ${LYRENA_PHONEME_SETS})
  set(output ${LYRENA_INSTALL_DIR}/Data/${set}.phd)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${LYRENA_INSTALL_DIR}/Data
    COMMAND $<TARGET_FILE:lyrena> phd build ${CMAKE_SOURCE_DIR}/data/phonemes/${set}.txt -o ${output}
    DEPENDS lyrena ${CMAKE_SOURCE_DIR}/data/phonemes/${set}.txt
    COMMENT "Compiling phoneme set ${set}")
  list(APPEND LYRENA_PHONEME_OUTPUTS ${output})
endforeach()
# Its own target: lyrena itself depends on the plug-in and its data.
add_custom_target(lyrena_phoneme_sets ALL DEPENDS ${LYRENA_PHONEME_OUTPUTS})

# The default song, a four-part round, generated from data/default/round.abc
# by abc2midi and the lyrena tool into the installation folder, where the
# plug-in loads it at start. The tests use an installation folder of their
# own without it (tests/CMakeLists.txt).
find_program(LYRENA_ABC2MIDI abc2midi)
if(LYRENA_ABC2MIDI)
  set(LYRENA_DEFAULT_PROJECT ${LYRENA_INSTALL_DIR}/Default.qlp)
  add_custom_command(
    OUTPUT ${LYRENA_DEFAULT_PROJECT}
    COMMAND ${CMAKE_COMMAND} -E env LYRENA_HOME=${LYRENA_INSTALL_DIR}/
            sh ${CMAKE_SOURCE_DIR}/data/default/make_default.sh $<TARGET_FILE:lyrena> ${LYRENA_ABC2MIDI}
            ${CMAKE_BINARY_DIR}/default ${LYRENA_DEFAULT_PROJECT}
    # The song holds its parts' phoneme sets and looked-up words: a changed
    # set or dictionary makes it again.
    DEPENDS lyrena ${LYRENA_PHONEME_OUTPUTS} ${LYRENA_DATA_OUTPUTS} ${CMAKE_SOURCE_DIR}/data/default/round.abc
            ${CMAKE_SOURCE_DIR}/data/default/make_default.sh
    COMMENT "Generating the default project")
  add_custom_target(lyrena_default_project ALL DEPENDS ${LYRENA_DEFAULT_PROJECT})
else()
  message(WARNING "abc2midi not found: the installation folder gets no default project (Default.qlp)")
endif()

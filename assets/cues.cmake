# The three cues sit beside the executable, where the game looks for them.
set(PELLIWICK_CUES wild.wav dong.wav ding.wav)
set(_cue_outputs)
foreach(cue ${PELLIWICK_CUES})
  add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/bin/${cue}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/bin
    COMMAND ${CMAKE_COMMAND} -E copy_if_different
            ${CMAKE_CURRENT_LIST_DIR}/${cue} ${CMAKE_BINARY_DIR}/bin/${cue}
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/${cue}
    COMMENT "Copying cue ${cue}")
  list(APPEND _cue_outputs ${CMAKE_BINARY_DIR}/bin/${cue})
endforeach()
add_custom_target(pelliwick_cues ALL DEPENDS ${_cue_outputs})

# The generator is only built on request:
#   cmake --build BUILD --target make_cues && BUILD/bin/make_cues assets
add_executable(make_cues EXCLUDE_FROM_ALL ${CMAKE_CURRENT_LIST_DIR}/make_cues.cpp)

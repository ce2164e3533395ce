# Every world of bad data under tests/e2e/worlds/hostile, each its own test;
# what must happen is in the world file.
file(GLOB FL_HOSTILE_WORLDS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/worlds/hostile/*.json)
foreach(world ${FL_HOSTILE_WORLDS})
  get_filename_component(stem ${world} NAME_WE)
  fl_scenario(hostile_${stem} ${world} hostile.sh WORLD_FILE=${world})
endforeach()

# A user's whole session, with xdotool's mouse and keyboard, once on a 9x and
# once on an NT world; FAMILY picks the expectations that differ.
fl_scenario(user_9x ${FL_E2E_WORLDS}/user-9x.json user.sh FAMILY=9x)
fl_scenario(user_nt ${FL_E2E_WORLDS}/user-nt.json user.sh FAMILY=nt)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_FILE})

# Two recording fakes of the mail library (one lacks an entry point) for the
# mail component, and the real stand-in read back with Python's email package.
foreach(variant fakemapi fakemapi_partial)
  add_library(${variant} SHARED ${CMAKE_CURRENT_LIST_DIR}/FakeMapi.cpp)
  target_include_directories(${variant} PRIVATE ${CMAKE_CURRENT_LIST_DIR})
  target_compile_definitions(${variant} PRIVATE QUILLMAR_MAPI_BUILD)
  # No soname: several libmapi32.so files live in one test process.
  set_target_properties(${variant} PROPERTIES OUTPUT_NAME mapi32 NO_SONAME ON
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/mail/${variant})
endforeach()
target_compile_definitions(fakemapi_partial PRIVATE FAKE_MAPI_WITHOUT_SAVEMAIL)

quillmar_add_test(tst_email SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_email.cpp LIBS quillmar_mail quillmar_registry)
target_include_directories(tst_email PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_compile_definitions(tst_email PRIVATE
  FAKE_MAPI_DIR="${CMAKE_CURRENT_BINARY_DIR}/mail/fakemapi"
  FAKE_MAPI_PARTIAL_DIR="${CMAKE_CURRENT_BINARY_DIR}/mail/fakemapi_partial")
add_dependencies(tst_email fakemapi fakemapi_partial)

quillmar_add_test(tst_mapi32
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/Mapi32Test.h ${CMAKE_CURRENT_LIST_DIR}/tst_mapi32.cpp
          ${CMAKE_CURRENT_LIST_DIR}/tst_mapi32_messages.cpp
  LIBS quillmar_mail quillmar_mapisetup quillmar_registry)
target_compile_definitions(tst_mapi32 PRIVATE
  MAPI_LIBRARY_DIR="$<TARGET_FILE_DIR:mapi32>"
  READ_MESSAGE_PY="${CMAKE_CURRENT_LIST_DIR}/read_message.py")
add_dependencies(tst_mapi32 mapi32)

quillmar_add_test(tst_mapicontacts SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_mapicontacts.cpp LIBS quillmar_mapicore)

quillmar_add_test(tst_mailingjournal SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_mailingjournal.cpp
  LIBS quillmar_mail quillmar_store)
quillmar_add_slow_cases(tst_mapi32 hundredMegabyteAttachment)

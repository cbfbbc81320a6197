# Run at build time (cmake -DBOOK=... -DLINK=... -P LinkBook.cmake): links LINK
# to the Polyglot book BOOK when BOOK exists and LINK is not there yet, so a
# book of the user's own at LINK is left alone.
if(EXISTS "${BOOK}" AND NOT EXISTS "${LINK}" AND NOT IS_SYMLINK "${LINK}")
  file(CREATE_LINK "${BOOK}" "${LINK}" SYMBOLIC)
endif()

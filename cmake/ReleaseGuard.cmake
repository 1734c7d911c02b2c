# The checks of the update URL and the public keys before anything is
# built: a 32-bit Windows build is a release, and a release that trusts any
# answer, or that holds a key that cannot verify, must be asked for in so
# many words. Sets ZR_PUBLIC_KEYS, the keys without blanks, comma-separated.
option(ZERUN_ALLOW_UNSIGNED "Let a 32-bit Windows build go without a public key or an https:// update URL" OFF)

set(zr_release OFF)
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(zr_release ON)
endif()

set(ZR_PUBLIC_KEYS "")
if(NOT ZERUN_PUBLIC_KEY STREQUAL "")
  # Every key whose secret half lies in the tree: anyone with the sources
  # can sign for it.
  file(GLOB zr_tree_publics ${CMAKE_SOURCE_DIR}/tests/support/keys/*.pub)
  string(REPLACE "," ";" zr_keys "${ZERUN_PUBLIC_KEY}")
  foreach(zr_key IN LISTS zr_keys)
    string(STRIP "${zr_key}" zr_key)
    string(LENGTH "${zr_key}" zr_length)
    # 32 bytes are 43 characters of base64 (the last with two bits unused,
    # so one of 16) and one '='; the 64-byte secret key is 88.
    if(NOT zr_length EQUAL 44 OR NOT zr_key MATCHES "^[A-Za-z0-9+/]+[AEIMQUYcgkosw048]=$")
      message(FATAL_ERROR "ZERUN_PUBLIC_KEY: '${zr_key}' is not the base64 of a 32-byte Ed25519 public key "
                          "(44 characters, the one line of NAME.pub). Never give the secret key (NAME.key) here.")
    endif()
    foreach(zr_public IN LISTS zr_tree_publics)
      file(READ "${zr_public}" zr_tree_key)
      string(STRIP "${zr_tree_key}" zr_tree_key)
      if(zr_key STREQUAL zr_tree_key AND zr_release)
        message(FATAL_ERROR "ZERUN_PUBLIC_KEY holds a key whose secret half is in the source tree (${zr_public}): "
                            "a release built with it obeys documents anyone can sign. Use the vendor's key.")
      endif()
    endforeach()
    list(APPEND ZR_PUBLIC_KEYS "${zr_key}")
  endforeach()
  string(REPLACE ";" "," ZR_PUBLIC_KEYS "${ZR_PUBLIC_KEYS}")
endif()

if(zr_release AND NOT ZERUN_ALLOW_UNSIGNED)
  if(ZR_PUBLIC_KEYS STREQUAL "")
    message(FATAL_ERROR "ZERUN_PUBLIC_KEY is empty: this release would run, elevated, whatever installer any "
                        "answer names. Give -DZERUN_PUBLIC_KEY=<the line of NAME.pub> (zerun-publish keygen NAME), "
                        "or -DZERUN_ALLOW_UNSIGNED=ON for a build that is not for users.")
  endif()
  if(NOT ZR_UPDATE_URL MATCHES "^https://")
    message(FATAL_ERROR "ZERUN_UPDATE_URL is not https:// ('${ZR_UPDATE_URL}'): give "
                        "-DZERUN_UPDATE_URL=https://<host>/App/ZeRunUpdate.inf, or -DZERUN_ALLOW_UNSIGNED=ON for a "
                        "build that is not for users.")
  endif()
endif()

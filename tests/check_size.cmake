# Fails when EXE is larger than MAX_BYTES.
file(SIZE ${EXE} size)
if(size GREATER MAX_BYTES)
  message(FATAL_ERROR "${EXE} is ${size} bytes, over its budget of ${MAX_BYTES}")
endif()
message(STATUS "${EXE}: ${size} bytes, budget ${MAX_BYTES}")

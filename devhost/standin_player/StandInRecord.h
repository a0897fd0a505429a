/* What the stand-in video player saw and did, for tests to read through its exports; also the
   switches that tests set before creating an instance. Plain C: the player is written against raw
   tables and offsets only, like a module from another compiler. */
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum {
  StandInPlugSlots = 19,
  StandInCallWords = 4,  /* arguments kept per logged call */
  StandInMaxCalls = 512, /* calls logged; later ones are only counted */
  StandInMaxTimes = 256, /* told times kept; later ones are only counted */
  StandInTimeRecordBytes = 16,
  StandInStateBytes = 16,
  StandInDefaultFlags = 0x20, /* wants the per-tick call */
  StandInEditorWidth = 400,
  StandInEditorHeight = 300,
  /* Every slot that returns a value returns this plus its slot number. */
  StandInResultBase = 0x5100,
  /* Host dispatch id and index of the time query made on every tick. */
  StandInTimeQueryId = 36,
  StandInTimeQueryIndex = 1
};

/* Set in the environment (to anything), makes release leave the instance's editor window alive.
   An environment switch, so it reaches a copy of the player that only the code under test loads. */
#define StandInKeepEditorVariable "TEMPOTALLY_STANDIN_KEEP_EDITOR"
/* Set by the editor window's own procedure when it receives WM_DESTROY. */
#define StandInEditorDestroyedVariable "TEMPOTALLY_STANDIN_EDITOR_DESTROYED"

typedef struct StandInCall {
  int32_t slot;
  void* instance;
  uint32_t words[StandInCallWords]; /* the slot's arguments in order; floats as their bits */
} StandInCall;

typedef struct StandInRecord {
  /* Switches, read at the next creation or call. */
  int32_t infoFlags;   /* flags of the info record of the instances created next */
  int32_t failCreate;  /* CreatePlugInstance answers null while set */
  int32_t streamState; /* slot 3 writes or reads stateBlob through the stream while set */
  uint8_t stateBlob[StandInStateBytes];

  /* Instances. liveInstances survives a reset. */
  int32_t liveInstances;
  int32_t createCalls;
  void* lastHost; /* host object given to the last creation */
  int32_t lastTag;
  void* lastInstance;
  int32_t releases; /* slot 0 */
  int32_t destroys; /* slot 18 */
  /* At the last release: 1 when the editor still had a live parent window (the host's window
     must outlive the editor it holds). */
  int32_t parentAliveAtRelease;

  /* Calls received, by slot: counted always, logged up to StandInMaxCalls. */
  int32_t slotCounts[StandInPlugSlots];
  int32_t callCount;
  StandInCall calls[StandInMaxCalls];

  /* The time query made on every tick: the first double of each answer, and the last answer. */
  int32_t timeCount;
  double toldTimes[StandInMaxTimes];
  uint8_t lastTimeRecord[StandInTimeRecordBytes];
  int32_t lastTimeResult;

  /* Slot 13 as it arrived: the frame count and the first frame's two samples. */
  int32_t renderFrames;
  float renderFirstFrame[2];

  /* Slot 3 restore with streamState set: what was read. */
  int32_t restoredBytes;
  uint8_t restoredBlob[StandInStateBytes];

  /* Paints of the editor, and the time the last one showed. */
  int32_t paints;
  double paintedTime;
} StandInRecord;

/* Answer of StandInCallHost: eax and edx, and st(0) when the slot returns a double. */
typedef struct StandInHostAnswer {
  uint32_t eax;
  uint32_t edx;
  double st0;
} StandInHostAnswer;

/* Test exports, cdecl, undecorated. */
typedef StandInRecord* (*StandInGetRecordFn)(void);
/* Clears what was seen and puts the switches back to their defaults. */
typedef void (*StandInResetRecordFn)(void);
/* Host dispatch through `instance`'s host with its own tag. */
typedef int32_t (*StandInHostDispatchFn)(void* instance, int32_t id, int32_t index, intptr_t value);
/* Host slot `slot` through `instance`'s host with `count` (0 to 7) argument words; `returnsDouble`
   reads the result from st(0). Returns 0 when the slot or count is out of range. */
typedef int32_t (*StandInCallHostFn)(void* instance, int32_t slot, const uint32_t* words,
                                     int32_t count, int32_t returnsDouble,
                                     StandInHostAnswer* answer);

#ifdef __cplusplus
}
#endif

// edtools: the in-game editors' tools. For now the editor file I/O: one
// buffered file at a time, on the host or on the memory card.
#pragma once

#include <cstdint>

#include "platform.h"

// ===================================================================
// Editor file I/O (edfile)
// ===================================================================
// Select the medium, open one file by name, read or write raw bytes and
// single values through a 4096-byte buffer, close. Values go through the
// file as they lie in memory (little-endian, floats as their bits, no
// padding). Memory-card files are on port 0, slot 0.

constexpr int EDFILE_BUFSIZE = 4096;
enum { EDFILE_MEDIA_NONE = 0, EDFILE_MEDIA_HOST = 1, EDFILE_MEDIA_MEMCARD = 2 };

extern int edfile_media;           // medium of the next open and of the open file; 0 after a close
extern int edfile_handle;          // file-layer handle or card descriptor; -1 when no file is open
extern int edfile_write_flag;      // 1 when the open file was opened for writing
extern unsigned char edfile_buffer[EDFILE_BUFSIZE];
extern int edfile_buffer_pointer;  // bytes consumed (reading) or pending (writing), 0-4096
extern int edfile_mcresult;        // result of the card open in EdFileOpen
extern int edfile_past_end;        // 1 when a read of the open host file went past its end (cleared by EdFileOpen)

// Sets the medium of the next open; an open file keeps its own.
void EdFileSetMedia(int medium);
// mode 0 read, 1 write (created or truncated). 1 on success; 0 when a file
// is open already, the mode or medium is unknown, or the open fails.
int EdFileOpen(const char* name, int mode);
int EdFileClose();  // flushes and closes: 1, or 0 when no file is open
// Bytes through the buffer. With no file open only the buffer takes part:
// writes beyond it are dropped, reads beyond it give zeros.
void EdFileWrite(const void* source, int count);
void EdFileRead(void* destination, int count);
void EdFileWriteFloat(float value);
void EdFileWriteInt(int value);
void EdFileWriteUnsignedInt(unsigned value);
void EdFileWriteShort(int value);  // the low 2 bytes
void EdFileWriteChar(int value);   // the low byte
float EdFileReadFloat();
int EdFileReadInt();
unsigned EdFileReadUnsignedInt();
int EdFileReadShort();  // sign-extended from 2 bytes
int EdFileReadChar();   // sign-extended from 1 byte
// Whole memory-card files: 1 when written (read) and closed; 0 when a file
// is open already or the open fails.
int EdFileWriteMemCard(const char* name, int size, const void* data);
int EdFileReadMemCard(const char* name, int size, void* destination);
// Copies a file of the file layer's current medium through the editor
// buffer: 1 when copied; 0 when the source is empty or missing, either open
// fails, the names are the same, or an editor file is open.
int EdFileBackup(const char* source, const char* destination);
void EdFileResetBuffers();  // zeroes the buffer (an open file is untouched)
void EdFileFillBuffer();    // the next 4096 bytes of the open file
void EdFileFlushBuffer();   // the pending bytes to the open file

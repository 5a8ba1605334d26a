// Placeholder until the cipher lands: every operation fails.
#include "cipher/CDes.h"
CDes::CDes() {}
CDes::~CDes() {}
int CDes::Setting(int, int, const char*, const char*, int, int) { return 1; }
int CDes::OpenReadFile(const char*) { return 1; }
void CDes::CloseReadFile() {}
int CDes::OpenWriteFile(const char*) { return 1; }
void CDes::CloseWriteFile(int) {}
int CDes::Seek(long, int) { return -1; }
int CDes::ReadData(char*, int) { return 0; }
int CDes::ReadLine(char*, int) { return 1; }
int CDes::WriteData(const char*, int) { return -1; }
int CDes::WriteString(const char*) { return 0; }
int CDes::TransData(char*, int) { return 0; }
void CDes::Run() {}
void CDes::initDes() {}
int CDes::Read(char*, int) { return 0; }
int CDes::Write(const char*, int) { return 0; }

/* Calls the installed library through its host interface. */
#include <stdio.h>
#include <string.h>

#include <morvelin/morvelin.h>

int main(void) {
  MorvelinOptions options;
  memset(&options, 0xFF, sizeof options);
  SetFactoryDefaults(MORVELIN_OPTIONS_SIZE, &options);
  int detected = AutoDetect("NO-SUCH-FILE.DAT");
  printf("defaults %u %u, detected %d\n", (unsigned)options.kinematic, (unsigned)options.station_text_option,
         (int)detected);
  return options.kinematic == 0 && options.station_text_option == 0 && detected == 0 ? 0 : 1;
}

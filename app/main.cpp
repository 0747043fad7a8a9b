#include "app/application.h"

int main(int argc, char** argv) {
  tarvex::Application application;
  return application.Run(argc, argv);
}

#include "app/dezidevud_app.h"

int main(int argc, char** argv) {
  tarvex::CDEZIdevudApp application;
  return application.Run(argc, argv);
}

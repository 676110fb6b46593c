// Whole nights timed as whole processes, paired: each round starts every
// program once, in turn, on the same input with standard output to a file,
// and times it from the spawn to the reaping. After one round not counted,
// ROUNDS rounds; per program the median wall time and the median of its
// per-round ratio to the first program.
//   whole_night ROUNDS INPUT OUTPUT PROGRAM...
// prints one line per program: "name wall-µs ratio". (Not peak RSS: the
// spawned child's count includes the spawner's memory until the exec.)
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

namespace {

// Microseconds from the spawn to the reaping.
double Once(const char* program, const char* input, const char* output) {
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, 0, input, O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&files, 1, output, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  char* argv[] = {const_cast<char*>(program), nullptr};
  timespec start, end;
  clock_gettime(CLOCK_MONOTONIC, &start);
  pid_t pid;
  int status = 0;
  if (posix_spawn(&pid, program, &files, nullptr, argv, environ) != 0 || waitpid(pid, &status, 0) != pid) {
    std::fprintf(stderr, "whole_night: cannot run %s\n", program);
    std::exit(1);
  }
  clock_gettime(CLOCK_MONOTONIC, &end);
  posix_spawn_file_actions_destroy(&files);
  return (end.tv_sec - start.tv_sec) * 1e6 + (end.tv_nsec - start.tv_nsec) / 1e3;
}

template <class T>
T Median(std::vector<T> v) {
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: whole_night ROUNDS INPUT OUTPUT PROGRAM...\n");
    return 2;
  }
  const int rounds = std::atoi(argv[1]);
  const char* input = argv[2];
  const char* output = argv[3];
  const int programs = argc - 4;
  std::vector<std::vector<double>> wall(programs), ratio(programs);
  for (int round = -1; round < rounds; ++round) {
    std::vector<double> runs;
    for (int p = 0; p < programs; ++p) runs.push_back(Once(argv[4 + p], input, output));
    if (round < 0) continue;  // the warm-up
    for (int p = 0; p < programs; ++p) {
      wall[p].push_back(runs[p]);
      ratio[p].push_back(runs[p] / runs[0]);
    }
  }
  for (int p = 0; p < programs; ++p) {
    std::string name = argv[4 + p];
    std::printf("%s %.0f %.2f\n", name.substr(name.rfind('/') + 1).c_str(), Median(wall[p]), Median(ratio[p]));
  }
}

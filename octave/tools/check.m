## SPDX-License-Identifier: MIT
## make check: octave-cli tools/check.m TARBALL PREFIX [GUIDE.md ...]
##
## Installs TARBALL with pkg into the scratch prefix PREFIX (emptied first),
## runs each of the package's test files (the *-tst files pkg install
## extracts from src/*.cc) in a fresh Octave, so each begins with the
## library's state as a session begins, then every ```octave block of the
## given Markdown files, in order, in one more fresh Octave. Exits 1 when
## anything fails.

1;

function run_octave (code, what)
  ## Runs `code` in a fresh octave-cli with this session's package lists.
  script = [tempname() ".m"];
  fid = fopen (script, "w");
  fprintf (fid, "pkg local_list %s\npkg global_list %s\npkg load tovakwrapper\n%s\n", ...
           pkg ("local_list"), pkg ("global_list"), code);
  fclose (fid);
  binary = fullfile (OCTAVE_HOME (), "bin", "octave-cli");
  status = system (sprintf ('"%s" --norc --quiet "%s"', binary, script));
  delete (script);
  if (status != 0)
    error ("check: %s failed", what);
  endif
endfunction

args = argv ();
if (numel (args) < 2)
  error ("usage: octave-cli tools/check.m TARBALL PREFIX [GUIDE.md ...]");
endif
[tarball, prefix, guides] = deal (args{1}, args{2}, args(3:end));

confirm_recursive_rmdir (false);
if (isfolder (prefix))
  rmdir (prefix, "s");
endif
mkdir (prefix);
pkg ("prefix", prefix, prefix);
pkg ("local_list", fullfile (prefix, "octave_packages"));
pkg ("global_list", fullfile (prefix, "global_packages"));
printf ("-- pkg install %s into %s\n", tarball, prefix);
pkg ("install", tarball);
pkg ("load", "tovakwrapper");
desc = pkg ("list", "tovakwrapper"){1};
printf ("-- tovakwrapper %s installed in %s\n", desc.version, desc.dir);

failed = {};
files = glob (fullfile (desc.dir, "*", "*-tst"));
if (isempty (files))
  error ("check: no test files in %s", desc.dir);
endif
for i = 1:numel (files)
  [~, name] = fileparts (files{i});
  code = sprintf (["[n, nmax] = test ('%s', 'quiet', stdout);\n" ...
                   "printf ('   %%-20s %%d of %%d tests passed\\n', '%s', n, nmax);\n" ...
                   "exit (n != nmax || nmax == 0);"], files{i}, name);
  try
    run_octave (code, name);
  catch err
    failed{end+1} = err.message;
  end_try_catch
endfor

for i = 1:numel (guides)
  text = fileread (guides{i});
  blocks = regexp (text, '```octave\n(.*?)```', "tokens");
  if (isempty (blocks))
    failed{end+1} = sprintf ("%s has no ```octave block", guides{i});
    continue;
  endif
  ## One session, the blocks in order, as a reader would run them.
  code = "";
  for b = 1:numel (blocks)
    code = [code sprintf("printf ('   %s, example %d\\n');\n", guides{i}, b) blocks{b}{1} "\n"];
  endfor
  try
    run_octave (code, sprintf ("the examples of %s", guides{i}));
  catch err
    failed{end+1} = err.message;
  end_try_catch
endfor

if (! isempty (failed))
  printf ("FAILED: %s\n", failed{:});
  exit (1);
endif
printf ("-- all passed\n");

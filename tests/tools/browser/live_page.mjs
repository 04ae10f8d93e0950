// Opens the live host's page (argv[2]) in Debian's headless chromium, sees every
// picture load and the stored (stale) activity shown in place of the sample, stores a
// preset through the editor, presses "Reload timelines" and sees the widget's picture
// change without the page being loaded again. Prints "ok" on success; any failure
// throws, naming the step.
import puppeteer from "puppeteer-core";

const url = process.argv[2];
const browser = await puppeteer.launch({
  executablePath: "/usr/bin/chromium",
  headless: "new",
  userDataDir: process.argv[3],
  args: ["--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage", "--no-first-run", "--disable-background-networking"],
});
const step = async (what, promise) => {
  try {
    return await promise;
  } catch (error) {
    throw new Error(`${what}: ${error.message}`);
  }
};
try {
  const page = await browser.newPage();
  await step("open the page", page.goto(url));
  const allLoaded = () => [...document.images].every((image) => image.getAttribute("src") && image.complete && image.naturalWidth > 0);
  await step("every picture loads", page.waitForFunction(allLoaded, {timeout: 10000}));
  await step("the stored activity replaces the sample, badged", page.waitForFunction(() =>
      document.getElementById("sample").hidden && document.querySelector(".activity .badge").textContent === "Stale",
      {timeout: 10000}));
  await page.evaluate(() => { window.sameDocument = true; });
  const before = await page.$eval("#widget-1", (image) => image.src);
  await page.$eval("input[name=bpm]", (input) => { input.value = "88"; });
  await page.$eval("input[name=name]", (input) => { input.value = "From the page"; });
  await page.click("#store");
  await step("the page says the widget keeps its timeline",
             page.waitForFunction(() => !document.getElementById("stale").hidden, {timeout: 10000}));
  if ((await page.$eval("#widget-1", (image) => image.src)) !== before) throw new Error("the widget changed before a reload");
  await page.click("#reload");
  await step("the widget's picture changes", page.waitForFunction(
      (old) => { const image = document.getElementById("widget-1"); return image.src !== old && image.complete && image.naturalWidth > 0; },
      {timeout: 10000}, before));
  if (!(await page.evaluate(() => window.sameDocument === true))) throw new Error("the page was loaded again");
  console.log("ok");
} finally {
  await browser.close();
}
